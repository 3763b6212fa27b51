#include "desktop/animationcontrol.h"

#include <QPainter>

#include <cmath>
#include <cstring>

namespace {
constexpr int kLastFrame = 0xFFFF;
}

TAnimationControl::TAnimationControl(QWidget* parent) : QWidget(parent) {
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TAnimationControl::Tick);
}

QString TAnimationControl::ResourcePath(int number) {
    return QStringLiteral(":/avi/%1").arg(number);
}

void TAnimationControl::SetAviFileName(const QString& value) {
    bool isNumber = false;
    const int n = value.toInt(&isNumber, 10);
    const QString formatted = isNumber ? QString::number(n) : QString();
    if (value.isEmpty())
        return;
    m_aviFileName = value;
    // Only the plain form names a built-in clip: "0100" and "+100" are file names.
    const bool opened = value == formatted ? LoadById(n) : LoadByName(value);
    ShowFrame(0);
    if (opened && m_autoplay)
        PlayClip(-1, 0, kLastFrame);
}

// A style change reopens the clip from AviFileName, as a newly made control would.
void TAnimationControl::Rebuild() {
    Load(std::nullopt);
    SetAviFileName(m_aviFileName);
}

void TAnimationControl::SetCenter(bool value) {
    if (value == m_center)
        return;
    m_center = value;
    Rebuild();
}

void TAnimationControl::SetTransparent(bool value) {
    if (value == m_transparent)
        return;
    m_transparent = value;
    Rebuild();
}

void TAnimationControl::SetAutoplay(bool value) {
    if (value == m_autoplay)
        return;
    m_autoplay = value;
    Rebuild();
}

bool TAnimationControl::OpenClipByName(const QString& name) {
    const bool ok = LoadByName(name);
    if (ok && m_autoplay)
        PlayClip(-1, 0, kLastFrame);
    return ok;
}

bool TAnimationControl::OpenClipById(int number) {
    const bool ok = LoadById(number);
    if (ok && m_autoplay)
        PlayClip(-1, 0, kLastFrame);
    return ok;
}

bool TAnimationControl::LoadByName(const QString& name) {
    if (name.isEmpty())
        return false;
    StopClip();
    return Load(avi::ReadClipFile(name));
}

// Number 0 asks for nothing and leaves the open clip alone.
bool TAnimationControl::LoadById(int number) {
    if (number == 0)
        return false;
    StopClip();
    // Negative numbers and those beyond 16 bits cannot name a built-in clip.
    if (number < 1 || number > 0xFFFF)
        return Load(std::nullopt);
    return Load(avi::ReadClipFile(ResourcePath(number)));
}

// Replaces the clip; a clip that cannot be read leaves the control empty.
bool TAnimationControl::Load(std::optional<avi::TClip> clip) {
    m_timer.stop();
    m_clip = std::move(clip);
    m_image = QImage();
    m_frame = 0;
    if (!m_clip) {
        update();
        return false;
    }
    m_colours = QVector<QRgb>(m_clip->palette.begin(), m_clip->palette.end());
    if (m_transparent) // the clip's background is the colour of its first pixel
        m_colours[m_clip->frames.front().front()] &= 0x00FFFFFFu;
    m_timer.setInterval(std::max(1, int(std::lround(m_clip->framePeriodUs / 1000.0))));
    if (!m_center)
        resize(ClipSize());
    Show(0);
    return true;
}

bool TAnimationControl::PlayClip(int repeat, int from, int to) {
    if (!m_clip || repeat < -1)
        return false;
    const int last = m_clip->frameCount() - 1;
    if (to == -1 || to == kLastFrame)
        to = last;
    if (from < 0 || from > last || to < from || to > last)
        return false;
    m_timer.stop();
    m_from = from;
    m_to = to;
    m_repeatsLeft = repeat;
    Show(from);
    if (repeat != 0 && from != to)
        m_timer.start();
    return true;
}

void TAnimationControl::ShowFrame(int frame) {
    PlayClip(0, frame, frame);
}

bool TAnimationControl::StopClip() {
    m_timer.stop();
    return m_clip.has_value();
}

void TAnimationControl::Tick() {
    int next = m_frame + 1;
    if (next > m_to) {
        if (m_repeatsLeft > 0 && --m_repeatsLeft == 0) {
            m_timer.stop();
            return;
        }
        next = m_from;
    }
    Show(next);
}

void TAnimationControl::Show(int frame) {
    const auto& pixels = m_clip->frames[frame];
    QImage img(m_clip->width, m_clip->height, QImage::Format_Indexed8);
    img.setColorTable(m_colours);
    for (int y = 0; y < m_clip->height; ++y)
        std::memcpy(img.scanLine(y), pixels.data() + std::size_t(y) * m_clip->width, m_clip->width);
    m_image = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_frame = frame;
    update();
    emit FrameShown(frame);
}

QSize TAnimationControl::ClipSize() const {
    return m_clip ? QSize(m_clip->width, m_clip->height) : QSize();
}

QSize TAnimationControl::sizeHint() const {
    return m_clip ? ClipSize() : QWidget::sizeHint();
}

void TAnimationControl::paintEvent(QPaintEvent*) {
    if (m_image.isNull())
        return;
    QPainter p(this);
    const QPoint at =
        m_center ? QPoint((width() - m_image.width()) / 2, (height() - m_image.height()) / 2)
                 : QPoint(0, 0);
    p.drawImage(at, m_image);
}
