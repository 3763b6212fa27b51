#pragma once

class QApplication;

namespace app {

// The font and style the window was laid out for: "MS Sans Serif" at 11 pixels
// (Liberation Sans where it is missing) and the classic style with tabs only as
// wide as their captions, so the six pages fit on one row.
void ApplyLook(QApplication& app);

} // namespace app
