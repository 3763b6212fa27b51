#pragma once

// A control that plays a silent AVI clip (8-bit palette, uncompressed or
// BI_RLE8) at the clip's own frame period.

#include "desktop/AviReader.h"

#include <QImage>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <optional>

class TAnimationControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString AviFileName READ AviFileName WRITE SetAviFileName)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(bool Autoplay READ Autoplay WRITE SetAutoplay)

public:
    explicit TAnimationControl(QWidget* parent = nullptr);

    // A plain decimal number names a built-in clip, anything else a file;
    // "0" opens nothing but still shows frame 0; empty changes nothing.
    QString AviFileName() const { return m_aviFileName; }
    void SetAviFileName(const QString& value);
    bool Center() const { return m_center; }
    void SetCenter(bool value);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value);
    // On: every clip opened plays from the start, over and over.
    bool Autoplay() const { return m_autoplay; }
    void SetAutoplay(bool value);

    bool OpenClipByName(const QString& name);
    bool OpenClipById(int number);
    // repeat -1 plays forever; to 0xFFFF (or -1) means the last frame.
    bool PlayClip(int repeat, int from, int to);
    void ShowFrame(int frame);
    bool StopClip();

    // The built-in clip of a number, in the Qt resources.
    static QString ResourcePath(int number);

    bool IsOpen() const { return m_clip.has_value(); }
    bool IsPlaying() const { return m_timer.isActive(); }
    int FrameCount() const { return m_clip ? m_clip->frameCount() : 0; }
    int CurrentFrame() const { return m_frame; }
    QSize ClipSize() const;
    QSize sizeHint() const override;

signals:
    void FrameShown(int frame);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool Load(std::optional<avi::TClip> clip);
    bool LoadByName(const QString& name);
    bool LoadById(int number);
    void Rebuild();
    void Show(int frame);
    void Tick();

    bool m_center = true;
    bool m_transparent = true;
    bool m_autoplay = false;
    QString m_aviFileName;

    std::optional<avi::TClip> m_clip;
    QVector<QRgb> m_colours;
    QImage m_image;
    QTimer m_timer;
    int m_frame = 0;
    int m_from = 0, m_to = 0;
    int m_repeatsLeft = 0; // -1: forever
};
