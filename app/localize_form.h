// SPDX-License-Identifier: Apache-2.0
// LocalizeForm for Qt windows: every child widget, in creation order, gets its texts from the
// window's section of the current language file and its font from the language's font rule.
#pragma once

#include <QWidget>
#include <string>

namespace camlift::gui {

// section_name empty: "Form_" + the window's object name.
void LocalizeForm(QWidget* form, const std::string& section_name = "");
// The language's font rule applied to one widget's font.
void ApplyLanguageFont(QWidget* widget);

}  // namespace camlift::gui
