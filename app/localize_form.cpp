// SPDX-License-Identifier: Apache-2.0
#include "localize_form.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "i18n/str_res.h"
#include "util/text_convert.h"

namespace camlift::gui {
namespace {

// One text property of a widget: its key, how to read it and how to write it.
struct TTextSlot {
  std::string key;
  std::function<QString()> get;
  std::function<void(const QString&)> set;
};

std::string Name(const QObject* o) { return o->objectName().toStdString(); }

void AddCaption(std::vector<TTextSlot>& entries, const std::string& name,
                std::function<QString()> get, std::function<void(const QString&)> set) {
  entries.push_back({name + ".Caption", std::move(get), std::move(set)});
}

void AddHint(std::vector<TTextSlot>& entries, QWidget* w) {
  entries.push_back({Name(w) + ".Hint", [w] { return w->toolTip(); },
                     [w](const QString& t) { w->setToolTip(t); }});
}

// The kind table, for Qt's widgets: the first kind that matches decides (derived kinds count as
// their base kind, so the most special classes come first).
bool CollectSlots(QObject* object, std::vector<TTextSlot>& entries, bool& font) {
  const std::string n = Name(object);
  font = true;
  if (auto* status = qobject_cast<QStatusBar*>(object)) {
    (void)status;  // panel texts belong to their owners
    return true;
  }
  if (auto* bar = qobject_cast<QToolBar*>(object)) {
    (void)bar;
    return true;
  }
  if (auto* tool = qobject_cast<QToolButton*>(object)) {
    font = false;
    AddCaption(
        entries, n, [tool] { return tool->text(); },
        [tool](const QString& t) { tool->setText(t); });
    AddHint(entries, tool);
    return true;
  }
  if (auto* check = qobject_cast<QCheckBox*>(object)) {
    AddCaption(
        entries, n, [check] { return check->text(); },
        [check](const QString& t) { check->setText(t); });
    return true;
  }
  if (auto* button = qobject_cast<QAbstractButton*>(object)) {  // push and radio buttons
    AddCaption(
        entries, n, [button] { return button->text(); },
        [button](const QString& t) { button->setText(t); });
    AddHint(entries, button);
    return true;
  }
  if (auto* label = qobject_cast<QLabel*>(object)) {  // labels and panels with a caption
    AddCaption(
        entries, n, [label] { return label->text(); },
        [label](const QString& t) { label->setText(t); });
    return true;
  }
  if (auto* group = qobject_cast<QGroupBox*>(object)) {
    AddCaption(
        entries, n, [group] { return group->title(); },
        [group](const QString& t) { group->setTitle(t); });
    return true;
  }
  if (auto* combo = qobject_cast<QComboBox*>(object)) {
    for (int i = 0; i < combo->count(); ++i) {
      entries.push_back({LangItemKey(n, i), [combo, i] { return combo->itemText(i); },
                         [combo, i](const QString& t) { combo->setItemText(i, t); }});
    }
    return true;
  }
  if (auto* list = qobject_cast<QListWidget*>(object)) {
    for (int i = 0; i < list->count(); ++i) {
      QListWidgetItem* item = list->item(i);
      entries.push_back({LangItemKey(n, i), [item] { return item->text(); },
                         [item](const QString& t) { item->setText(t); }});
    }
    return true;
  }
  if (auto* tree = qobject_cast<QTreeWidget*>(object)) {  // the list view in report style
    QTreeWidgetItem* header = tree->headerItem();
    for (int i = 0; i < tree->columnCount(); ++i) {
      entries.push_back({LangColumnKey(n, i), [header, i] { return header->text(i); },
                         [header, i](const QString& t) { header->setText(i, t); }});
    }
    return true;
  }
  if (auto* view = qobject_cast<QTreeView*>(object); view && view->model()) {
    // A list view over an item model: its column captions are the model's header texts.
    QAbstractItemModel* model = view->model();
    for (int i = 0; i < model->columnCount(); ++i) {
      entries.push_back(
          {LangColumnKey(n, i),
           [model, i] { return model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(); },
           [model, i](const QString& t) { model->setHeaderData(i, Qt::Horizontal, t); }});
    }
    return true;
  }
  if (auto* table = qobject_cast<QTableWidget*>(object)) {
    for (int i = 0; i < table->columnCount(); ++i) {
      entries.push_back({LangColumnKey(n, i),
                         [table, i] {
                           auto* h = table->horizontalHeaderItem(i);
                           return h ? h->text() : QString();
                         },
                         [table, i](const QString& t) {
                           table->setHorizontalHeaderItem(i, new QTableWidgetItem(t));
                         }});
    }
    return true;
  }
  if (auto* tabs = qobject_cast<QTabWidget*>(object)) {
    for (int i = 0; i < tabs->count(); ++i) {
      QWidget* page = tabs->widget(i);
      entries.push_back({Name(page) + ".Caption", [tabs, i] { return tabs->tabText(i); },
                         [tabs, i](const QString& t) { tabs->setTabText(i, t); }});
    }
    return true;
  }
  if (auto* dialog = qobject_cast<QFileDialog*>(object)) {
    font = false;
    entries.push_back({n + ".Filter", [dialog] { return dialog->nameFilters().join(";;"); },
                       [dialog](const QString& t) { dialog->setNameFilters(t.split(";;")); }});
    return true;
  }
  if (auto* action = qobject_cast<QAction*>(object)) {  // menu items
    font = false;
    AddCaption(
        entries, n, [action] { return action->text(); },
        [action](const QString& t) { action->setText(t); });
    return true;
  }
  return false;
}

}  // namespace

void ApplyLanguageFont(QWidget* widget) {
  QFont font = widget->font();
  TFontDesc desc;
  desc.face = font.family().toStdString();
  desc.size = font.pointSize() > 0 ? font.pointSize() : 9;
  const TFontDesc wanted = SetLanguageFont(CurrentLanguage(), desc);
  // Face names come in the language's code page; fontconfig maps them to an installed font.
  font.setFamily(QString::fromStdString(LangToUtf8(wanted.face, CurrentLanguage())));
  font.setPointSize(wanted.size);
  widget->setFont(font);
}

void LocalizeForm(QWidget* form, const std::string& section_name) {
  const std::string section =
      "Form_" + (section_name.empty() ? form->objectName().toStdString() : section_name);
  std::vector<TTextSlot> entries;
  entries.push_back({"Caption", [form] { return form->windowTitle(); },
                     [form](const QString& t) { form->setWindowTitle(t); }});
  ApplyLanguageFont(form);
  for (QObject* child : form->findChildren<QObject*>()) {
    if (child->objectName().isEmpty()) continue;
    bool font = false;
    if (!CollectSlots(child, entries, font)) continue;
    if (font) {
      if (auto* w = qobject_cast<QWidget*>(child)) ApplyLanguageFont(w);
    }
  }
  std::vector<TLangTextItem> items;
  items.reserve(entries.size());
  for (const TTextSlot& slot : entries) items.push_back({slot.key, slot.get().toStdString()});
  LocalizeTexts(section, items);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].set(QString::fromStdString(items[i].text));
  }
  // Buttons are named for screen readers by their caption without its access key ("确定(&O)"
  // reads "确定"), in the language just applied.
  for (QAbstractButton* button : form->findChildren<QAbstractButton*>()) {
    button->setAccessibleName(QString::fromStdString(AccessibleText(button->text().toStdString())));
  }
}

}  // namespace camlift::gui
