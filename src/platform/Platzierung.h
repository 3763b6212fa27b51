#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// Where the main window goes on the desktop, without widgets.
namespace platzierung {

// The frame's top-left corner for a saved position, so that the whole title bar
// (`titleBar`: the frame's width, the bar's height) lies on the screens: unchanged
// when it does; otherwise moved the shortest way onto the screen it overlaps most,
// or onto the nearest one when it overlaps none (a monitor that was unplugged).
QPoint TitelleisteAufBildschirm(QPoint wanted, QSize titleBar, const QList<QRect>& screens);

// Whether the platform lets a program place its window and learn where it is;
// a native Wayland session does neither.
bool PositionErinnerbar(const QString& platformName);

} // namespace platzierung
