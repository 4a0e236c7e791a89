#pragma once

// Qt's own texts (file dialogs, the OK of message boxes, the progress dialog's Cancel) follow
// the user-interface language: Chinese for 1, English otherwise. Returns false, after telling
// stderr once, when the Chinese texts are not installed; the texts stay English then.
bool applyQtLanguage(int language);

// The language last given to applyQtLanguage (0 before the first call).
int qtLanguage();
