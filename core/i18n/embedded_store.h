// SPDX-License-Identifier: Apache-2.0
// The stored form (skin_store.h) of the built-in language store, compiled into the program at
// build time from the files in core/i18n/lang/ (items "b5", "cn", "en", in that order).
#pragma once

#include <string_view>

namespace camlift {

std::string_view EmbeddedLanguageStore();

}  // namespace camlift
