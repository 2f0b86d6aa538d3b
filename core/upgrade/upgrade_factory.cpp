#include "upgrade/upgrade_factory.h"

#include <cctype>

#include "upgrade/upgrade_k.h"
#include "upgrade/upgrade_mp.h"
#include "upgrade/upgrade_r.h"

namespace camlift {
namespace {

constexpr char kSeriesLetters[] = {'K', 'M', 'P', 'R'};

template <typename T>
std::unique_ptr<TUpgradeObject> Make() {
  auto upgrader = std::make_unique<T>();
  upgrader->SetModelPrefixLength(0);
  return upgrader;
}

}  // namespace

std::unique_ptr<TUpgradeObject> TUpgradeFactory::CreateUpgrader(int series_index, bool is_system) {
  switch (series_index) {
    case 0: return is_system ? Make<TKSYSUpgrade>() : Make<TKUIUpgrade>();
    case 1: return is_system ? Make<TMSYSUpgrade>() : Make<TMUIUpgrade>();
    case 2: return is_system ? Make<TPSYSUpgrade>() : Make<TPUIUpgrade>();
    case 3: return is_system ? Make<TRSYSUpgrade>() : Make<TRUIUpgrade>();
    default: return nullptr;
  }
}

int SeriesIndexFromLetter(char letter) {
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  for (int i = 0; i < 4; ++i) {
    if (kSeriesLetters[i] == upper) return i;
  }
  return -1;
}

char SeriesLetter(int series_index) {
  return series_index >= 0 && series_index < 4 ? kSeriesLetters[series_index] : '?';
}

}  // namespace camlift
