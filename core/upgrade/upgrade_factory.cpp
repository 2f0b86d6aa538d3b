// SPDX-License-Identifier: Apache-2.0
#include "upgrade/upgrade_factory.h"

#include "upgrade/upgrade_k.h"
#include "upgrade/upgrade_mp.h"
#include "upgrade/upgrade_r.h"

namespace camlift {
namespace {

template <typename T>
std::unique_ptr<TUpgradeObject> Make() {
  auto upgrader = std::make_unique<T>();
  upgrader->SetModelPrefixLength(0);
  return upgrader;
}

}  // namespace

std::unique_ptr<TUpgradeObject> TUpgradeFactory::CreateUpgrader(TSeries series, bool is_system) {
  switch (series) {
    case TSeries::K:
      return is_system ? Make<TKSYSUpgrade>() : Make<TKUIUpgrade>();
    case TSeries::M:
      return is_system ? Make<TMSYSUpgrade>() : Make<TMUIUpgrade>();
    case TSeries::P:
      return is_system ? Make<TPSYSUpgrade>() : Make<TPUIUpgrade>();
    case TSeries::R:
      return is_system ? Make<TRSYSUpgrade>() : Make<TRUIUpgrade>();
    case TSeries::None:
      break;
  }
  return nullptr;
}

}  // namespace camlift
