#pragma once

class QCoreApplication;

namespace vigix {

// Qt's own texts (the buttons of a question, the file and print dialogs) in Japanese, whatever the system's
// locale: the whole program speaks Japanese. Returns false when Qt's translations are not installed; the
// dialogs are then in English.
bool InstallJapaneseQtTranslations(QCoreApplication &application);

} // namespace vigix
