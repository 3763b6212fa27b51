#pragma once

#include "desktop/UWMMsg.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class QSystemTrayIcon;
class QTimer;
class QWidget;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftFlag : unsigned {
    ssShift = 0x01,
    ssAlt = 0x02,
    ssCtrl = 0x04,
    ssLeft = 0x08,
    ssRight = 0x10,
    ssMiddle = 0x20
};
using TShiftState = unsigned;

inline constexpr unsigned WM_USER = 0x0400;
inline constexpr unsigned WM_QUERYENDSESSION = 0x0011;
inline constexpr unsigned WM_ENDSESSION = 0x0016;

// The program's entry in the notification area. Qt reports only activations, so
// each one is turned into the mouse messages it stands for and handed to
// WndProc, which holds the click logic; tests drive WndProc directly.
//
// Minimize hides the window, which removes its taskbar entry; where the desktop
// has no notification area it minimises to the taskbar instead, so the window
// can always be reached.
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kCallbackMessage = WM_USER + 1;
    static constexpr int kTipLength = 63;

    using TNotifyEvent = std::function<void(TTrayIcon* Sender)>;
    using TMouseMoveEvent = std::function<void(TTrayIcon* Sender, TShiftState Shift, int X, int Y)>;
    using TMouseEvent = std::function<void(TTrayIcon* Sender, TMouseButton Button,
                                           TShiftState Shift, int X, int Y)>;

    explicit TTrayIcon(QObject* owner);
    ~TTrayIcon() override;

    QString Hint() const { return m_hint; }
    void SetHint(const QString& hint);
    QIcon Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    QMenu* PopupMenu() const { return m_popupMenu; }
    void SetPopupMenu(QMenu* menu);
    // The window hidden and shown; the owner's window unless set.
    QWidget* Window() const { return m_window; }
    void SetWindow(QWidget* window);

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnMinimize;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TNotifyEvent OnRestore;

    // The tool tip as it reaches the notification area; empty when there is none.
    QString TipText() const;
    // Asked on every minimise, since a panel can come and go while the program runs.
    std::function<bool()> HasNotificationArea;
    // Whether the notification area is a StatusNotifierItem host (Xfce, KDE Plasma,
    // GNOME with the AppIndicator extension): most such hosts show a menu the
    // program exports and never ask it to open one. Asked when the menu is set.
    std::function<bool()> HostShowsExportedMenu;
    // The copy of the popup menu given to such a host; its items show only while
    // the window is hidden here, as the popup menu itself opens only then.
    QMenu* ExportedMenu() const { return m_exportedMenu.get(); }

    virtual void WndProc(TMessage& message);
    virtual void PopupAtCursor();
    virtual void Click();
    virtual void DblClick();
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void RemoveIcon();
    virtual void Minimize();
    virtual void Restore();

    // A window hidden here whose notification area has gone since is shown
    // minimised; a timer calls this while the window is hidden.
    void EnsureReachable();
    bool WindowHiddenHere() const { return m_hiddenHere; }

    QSystemTrayIcon* SystemTrayIcon() const { return m_tray; }

protected:
    virtual void UpdateIcon();
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Activated(int reason);
    void Post(unsigned mouseMessage);
    void LeaveHidden();
    void ShowExportedItems(bool shown);

    QString m_hint;
    QIcon m_icon;
    QPointer<QMenu> m_popupMenu;
    std::unique_ptr<QMenu> m_exportedMenu;
    QPointer<QWidget> m_window;
    QSystemTrayIcon* m_tray = nullptr;
    QString m_tip;
    bool m_tipFlag = false;
    bool m_removed = false;
    bool m_clickPending = false;
    bool m_hiddenHere = false;
    bool m_quitOnLastWindowClosed = true;
    QTimer* m_watch = nullptr;
};
