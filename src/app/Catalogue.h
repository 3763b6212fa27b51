#pragma once

#include <QString>

// The numbered German message texts. Every text the status line shows, and some
// fixed display texts (protocols, permission and service names, captions).
namespace catalogue {

// The text of a message number; a number without an entry gives the empty text.
QString Text(int nummer);

// "digit:text" with the argument put in for "%s" (and for "%d" in message 38).
QString PanelText(int nummer, int stufe, const QString& argument);

} // namespace catalogue
