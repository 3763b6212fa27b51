#pragma once

class QTranslator;

namespace platform {

// Qt's own texts (options, dialogs, boxes) in German, like everything else of the
// program. `translator` must live as long as the application; without the
// translations installed Qt's English stays, which is no fault.
void DeutscheQtTexte(QTranslator& translator);

} // namespace platform
