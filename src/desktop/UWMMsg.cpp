#include "desktop/UWMMsg.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QTimerEvent>
#include <QWheelEvent>
#include <QWidget>

namespace {

qintptr Words(int low, int high) {
    return qintptr((quint32(quint16(qint16(low))) | (quint32(quint16(qint16(high))) << 16)));
}

constexpr quintptr MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
                   MK_MBUTTON = 0x10;

quintptr KeyFlags(const QSinglePointEvent& e) {
    quintptr f = 0;
    if (e.buttons() & Qt::LeftButton)
        f |= MK_LBUTTON;
    if (e.buttons() & Qt::RightButton)
        f |= MK_RBUTTON;
    if (e.buttons() & Qt::MiddleButton)
        f |= MK_MBUTTON;
    if (e.modifiers() & Qt::ShiftModifier)
        f |= MK_SHIFT;
    if (e.modifiers() & Qt::ControlModifier)
        f |= MK_CONTROL;
    return f;
}

unsigned ButtonMessage(Qt::MouseButton button, unsigned left, unsigned right, unsigned middle) {
    switch (button) {
    case Qt::LeftButton:
        return left;
    case Qt::RightButton:
        return right;
    case Qt::MiddleButton:
        return middle;
    default:
        return 0;
    }
}

} // namespace

TMessage MessageOf(const QEvent& event) {
    TMessage m;
    m.Msg = kQtEventBase + unsigned(event.type());
    switch (event.type()) {
    case QEvent::Move: {
        const auto& e = static_cast<const QMoveEvent&>(event);
        m.Msg = WM_MOVE;
        m.LParam = Words(e.pos().x(), e.pos().y());
        break;
    }
    case QEvent::Resize: {
        const auto& e = static_cast<const QResizeEvent&>(event);
        m.Msg = WM_SIZE;
        m.LParam = Words(e.size().width(), e.size().height());
        break;
    }
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        m.Msg = WM_ACTIVATE;
        m.WParam = event.type() == QEvent::WindowActivate ? 1 : 0;
        break;
    case QEvent::FocusIn:
        m.Msg = WM_SETFOCUS;
        break;
    case QEvent::FocusOut:
        m.Msg = WM_KILLFOCUS;
        break;
    case QEvent::Paint:
        m.Msg = WM_PAINT;
        break;
    case QEvent::Close:
        m.Msg = WM_CLOSE;
        break;
    case QEvent::Show:
    case QEvent::Hide:
        m.Msg = WM_SHOWWINDOW;
        m.WParam = event.type() == QEvent::Show ? 1 : 0;
        break;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        // The Qt key code: Qt knows no virtual-key numbers.
        m.Msg = event.type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP;
        m.WParam = quintptr(static_cast<const QKeyEvent&>(event).key());
        break;
    case QEvent::Timer:
        m.Msg = WM_TIMER;
        m.WParam = quintptr(static_cast<const QTimerEvent&>(event).timerId());
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const auto& e = static_cast<const QMouseEvent&>(event);
        unsigned msg = WM_MOUSEMOVE;
        if (event.type() == QEvent::MouseButtonPress)
            msg = ButtonMessage(e.button(), WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN);
        else if (event.type() == QEvent::MouseButtonRelease)
            msg = ButtonMessage(e.button(), WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP);
        else if (event.type() == QEvent::MouseButtonDblClick)
            msg = ButtonMessage(e.button(), WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK);
        if (msg == 0) // a button Win32 has no message for
            break;
        m.Msg = msg;
        m.WParam = KeyFlags(e);
        const QPoint p = e.position().toPoint();
        m.LParam = Words(p.x(), p.y());
        break;
    }
    case QEvent::Wheel: {
        const auto& e = static_cast<const QWheelEvent&>(event);
        m.Msg = WM_MOUSEWHEEL;
        m.WParam = (KeyFlags(e) & 0xFFFF) | (quintptr(quint16(qint16(e.angleDelta().y()))) << 16);
        const QPoint p = e.globalPosition().toPoint();
        m.LParam = Words(p.x(), p.y());
        break;
    }
    default:
        break;
    }
    return m;
}

TMessageHookBasic::TMessageHookBasic(QObject* owner) : QObject(owner) {
    SetTarget(qobject_cast<QWidget*>(owner));
    InstallHook();
}

TMessageHookBasic::~TMessageHookBasic() {
    if (m_hooked)
        RemoveHook();
}

void TMessageHookBasic::SetActive(bool value) {
    if (value == m_active)
        return;
    m_active = value;
    if (value)
        InstallHook();
    else
        RemoveHook();
}

void TMessageHookBasic::SetControl(QWidget* control) {
    if (control == m_control)
        return;
    const bool wasActive = m_active;
    SetActive(false);
    m_control = control;
    SetTarget(control ? control : qobject_cast<QWidget*>(parent()));
    SetActive(wasActive);
}

void TMessageHookBasic::SetTarget(QWidget* target) {
    disconnect(m_targetGone);
    m_target = target;
    // The owner outlives its child hook; any other target may go first.
    if (target && target != parent())
        m_targetGone =
            connect(target, &QObject::destroyed, this, &TMessageHookBasic::TargetDestroyed);
}

void TMessageHookBasic::TargetDestroyed() {
    // Its filter list is gone with it: nothing to take back, only to move on.
    m_hooked = false;
    const bool wasActive = m_active;
    m_control = nullptr;
    SetTarget(qobject_cast<QWidget*>(parent()));
    m_active = false;
    SetActive(wasActive);
}

void TMessageHookBasic::InstallHook() {
    if (!m_active || !m_target)
        return;
    if (!m_hooked)
        m_target->installEventFilter(this);
    m_hooked = true;
}

void TMessageHookBasic::RemoveHook() {
    if (!m_hooked || !m_target)
        return;
    m_target->removeEventFilter(this);
    m_active = false;
    m_hooked = false;
}

void TMessageHookBasic::DoMessage(bool&, TMessage&) {
}

bool TMessageHookBasic::eventFilter(QObject* watched, QEvent* event) {
    if (!m_hooked || watched != m_target.data())
        return false;
    TMessage message = MessageOf(*event);
    bool passOn = true;
    DoMessage(passOn, message);
    return !passOn;
}
