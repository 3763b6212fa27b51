#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QEvent;

// A window message as the message hook presents it. Qt events carry the Win32
// number where one exists (a move is 3); the others get kQtEventBase + their type,
// above the Win32 range, so a handler never mistakes one for a Win32 message.
struct TMessage {
    unsigned Msg = 0;
    quintptr WParam = 0;
    qintptr LParam = 0;
    qintptr Result = 0;
};
inline constexpr unsigned WM_MOVE = 0x0003;
inline constexpr unsigned WM_SIZE = 0x0005;
inline constexpr unsigned WM_ACTIVATE = 0x0006;
inline constexpr unsigned WM_SETFOCUS = 0x0007;
inline constexpr unsigned WM_KILLFOCUS = 0x0008;
inline constexpr unsigned WM_PAINT = 0x000F;
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_SHOWWINDOW = 0x0018;
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_KEYUP = 0x0101;
inline constexpr unsigned WM_TIMER = 0x0113;
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
inline constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
inline constexpr unsigned WM_RBUTTONDOWN = 0x0204;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_RBUTTONDBLCLK = 0x0206;
inline constexpr unsigned WM_MBUTTONDOWN = 0x0207;
inline constexpr unsigned WM_MBUTTONUP = 0x0208;
inline constexpr unsigned WM_MBUTTONDBLCLK = 0x0209;
inline constexpr unsigned WM_MOUSEWHEEL = 0x020A;
inline constexpr unsigned kQtEventBase = 0x10000;

// The message record of a Qt event: Win32 number and parameters where one exists
// (positions and sizes packed as two signed 16-bit words, x or width low).
TMessage MessageOf(const QEvent& event);

// Puts itself in front of one widget's event handling (by default its owner's)
// and shows every event of that widget to DoMessage first; the widget sees the
// event only while the pass-on flag stays true. Removing the hook always leaves
// Active false.
class TMessageHookBasic : public QObject {
    Q_OBJECT
public:
    // Active from the start: with no separate loading step, construction hooks
    // the owner at once when the owner is a widget.
    explicit TMessageHookBasic(QObject* owner);
    ~TMessageHookBasic() override;

    bool Active() const { return m_active; }
    virtual void SetActive(bool value);
    QWidget* Control() const { return m_control; }
    virtual void SetControl(QWidget* control);

    bool Hooked() const { return m_hooked; }
    QWidget* Target() const { return m_target; }

protected:
    virtual void DoMessage(bool& passOn, TMessage& message);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void InstallHook();
    void RemoveHook();
    void SetTarget(QWidget* target);
    void TargetDestroyed();

    QPointer<QWidget> m_target;
    bool m_hooked = false;
    QPointer<QWidget> m_control;
    bool m_active = true;
    QMetaObject::Connection m_targetGone;
};
