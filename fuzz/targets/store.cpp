// SPDX-License-Identifier: Apache-2.0
// The stored form of the named stream store: a damaged form is refused with TStoreError and
// nothing else; a form that loads saves back to the very same bytes.
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "i18n/skin_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace camlift;
  const std::string_view form = fuzz::AsText(data, size);
  TSkinStore store;
  try {
    LoadStore(store, form);
  } catch (const TStoreError&) {
    return 0;
  }
  FUZZ_CHECK(SaveStore(store) == form);
  return 0;
}
