// SPDX-License-Identifier: Apache-2.0
#include "standard_texts.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <string>

#include "i18n/str_res.h"

namespace camlift::gui {
namespace {

struct TButtonText {
  QDialogButtonBox::StandardButton button;
  const char* key;
  const char* fallback;
};
constexpr TButtonText kButtonTexts[] = {
    {QDialogButtonBox::Yes, "IDS_YES", "&Yes"},
    {QDialogButtonBox::No, "IDS_NO", "&No"},
    {QDialogButtonBox::Ok, "IDS_OK", "OK"},
    {QDialogButtonBox::Cancel, "IDS_CANCEL", "Cancel"},
    {QDialogButtonBox::Close, "IDS_CLOSE", "&Close"},
};

// "*.csv" of "CSV (*.csv)": what a name typed without one gets.
QString SuffixOf(const QString& filter) {
  const qsizetype star = filter.indexOf("*.");
  if (star < 0) return {};
  QString suffix = filter.mid(star + 2);
  const qsizetype end = suffix.indexOf(QRegularExpression("[ );*]"));
  return end < 0 ? suffix : suffix.left(end);
}

QString AskFileName(QWidget* parent, const QString& caption, const QString& suggested,
                    const QString& filter, bool save) {
  const QString accept =
      save ? LangText("IDS_FILESAVE", "&Save") : LangText("IDS_FILEOPEN", "&Open");
  // Qt's own dialog (not the desktop's), whose labels can be given.
  QFileDialog dialog(parent, caption.isEmpty() ? QString(accept).remove('&') : caption, QString(),
                     filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  // The question whether to replace a file is asked below, in the user's language, once the
  // name has its suffix.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (save) {
    // A name typed without a suffix gets the one of the chosen type ("cameras" as JSON is
    // "cameras.json"), as the export decides its format by the suffix.
    dialog.setDefaultSuffix(SuffixOf(dialog.selectedNameFilter()));
    QObject::connect(
        &dialog, &QFileDialog::filterSelected, &dialog,
        [&dialog](const QString& chosen) { dialog.setDefaultSuffix(SuffixOf(chosen)); });
  }
  if (!suggested.isEmpty()) dialog.selectFile(suggested);
  dialog.setLabelText(QFileDialog::LookIn, LangText("IDS_FILELOOKIN", "Look in:"));
  dialog.setLabelText(QFileDialog::FileName, LangText("IDS_FILENAME", "File name:"));
  dialog.setLabelText(QFileDialog::FileType, LangText("IDS_FILETYPE", "Files of type:"));
  dialog.setLabelText(QFileDialog::Accept, accept);
  dialog.setLabelText(QFileDialog::Reject, LangText("IDS_CANCEL", "Cancel"));
  while (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    const QString name = dialog.selectedFiles().first();
    if (!save || !QFileInfo::exists(name)) return name;
    QMessageBox box(QMessageBox::Question, dialog.windowTitle(),
                    LangText("IDS_FILEREPLACE", "The file already exists. Replace it?") + "\n" +
                        QDir::toNativeSeparators(name),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    NameStandardButtons(box);
    if (box.exec() == QMessageBox::Yes) return name;
  }
  return {};
}

}  // namespace

QString LangText(const char* key, const char* fallback) {
  const std::string text = GetLangStr(key);
  return text.empty() ? QString::fromUtf8(fallback) : QString::fromStdString(text);
}

void NameStandardButtons(QMessageBox& box) {
  for (const TButtonText& row : kButtonTexts) {
    if (QAbstractButton* button =
            box.button(static_cast<QMessageBox::StandardButton>(row.button))) {
      button->setText(LangText(row.key, row.fallback));
    }
  }
}

void NameStandardButtons(QDialogButtonBox& buttons) {
  for (const TButtonText& row : kButtonTexts) {
    if (QPushButton* button = buttons.button(row.button)) {
      button->setText(LangText(row.key, row.fallback));
    }
  }
}

QString AskOpenFileName(QWidget* parent, const QString& caption, const QString& filter) {
  return AskFileName(parent, caption, QString(), filter, false);
}

QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& suggested,
                        const QString& filter) {
  return AskFileName(parent, caption, suggested, filter, true);
}

}  // namespace camlift::gui
