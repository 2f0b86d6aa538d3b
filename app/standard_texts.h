// SPDX-License-Identifier: Apache-2.0
// Qt's own buttons and file dialogs in the user's language. Qt translates them only when its
// translation files for the language are installed, which many systems lack for Chinese: the
// program gives them its own texts, so that a Chinese window never asks "Yes/No".
#pragma once

#include <QString>

class QDialogButtonBox;
class QMessageBox;
class QWidget;

namespace camlift::gui {

// The text of an IDS_ key in the current language, or fallback when it has none.
QString LangText(const char* key, const char* fallback);
// Gives the standard buttons of box (Yes, No, OK, Cancel, Close) the program's texts.
void NameStandardButtons(QMessageBox& box);
void NameStandardButtons(QDialogButtonBox& buttons);
// A file to open or to save, asked with the program's texts. Empty when the user cancelled.
QString AskOpenFileName(QWidget* parent, const QString& caption, const QString& filter);
QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                        const QString& filter);

}  // namespace camlift::gui
