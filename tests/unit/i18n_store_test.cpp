// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <functional>

#include "i18n/embedded_store.h"
#include "i18n/skin_store.h"
#include "support/temp_folder.h"

namespace camlift {
namespace {

std::vector<std::string> Names(const TSkinCollection& c) {
  std::vector<std::string> names;
  for (int i = 0; i < c.Count(); ++i) names.push_back(c.Items(i).Name());
  return names;
}

void ExpectError(const std::function<void()>& fn, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const TStoreError& e) {
    EXPECT_EQ(message, e.what());
  }
}

TEST(SkinStore, ItemsGetRunningIdsThatAreNeverReused) {
  TSkinStore store;
  TSkinCollection& c = store.Store();
  EXPECT_EQ(0, c.Add().ID());
  EXPECT_EQ(1, c.Add().ID());
  EXPECT_EQ((std::vector<std::string>{"SkinItem0", "SkinItem1"}), Names(c));
  c.Delete(0);
  TSkinCollectionItem& third = c.Add();
  EXPECT_EQ(2, third.ID());
  EXPECT_EQ(1, third.Index());
  EXPECT_EQ((std::vector<std::string>{"SkinItem1", "SkinItem2"}), Names(c));
  c.Clear();
  EXPECT_EQ("SkinItem3", c.Add().Name());
}

TEST(SkinStore, NamesAreUniqueAndCaseSensitive) {
  TSkinStore store;
  TSkinCollectionItem& a = store.Store().Add();
  TSkinCollectionItem& b = store.Store().Add();
  a.SetName("en");
  a.SetName("en");  // its own name is always accepted
  ExpectError([&] { b.SetName("en"); }, "The name en is already used.");
  EXPECT_EQ("en", a.Name());
  EXPECT_EQ("SkinItem1", b.Name());
  b.SetName("EN");
  EXPECT_EQ("EN", b.DisplayName());
  b.SetName("");  // nothing else is checked
  EXPECT_EQ("", b.Name());
}

TEST(SkinStore, SkinDataIsAHookAndDataSizeCountsBytes) {
  TSkinStore store;
  TSkinCollectionItem& item = store.Store().Add();
  EXPECT_EQ("Load Skin", item.SkinData());
  EXPECT_EQ(0, item.DataSize());
  item.Data().Write("12345");
  item.SetSkinData("anything");
  EXPECT_EQ("Load Skin", item.SkinData());
  EXPECT_EQ(5, item.DataSize());
}

TEST(SkinStore, AssignCopiesNameUncheckedAndWholeDataKeepingSourcePosition) {
  TSkinStore store;
  TSkinCollectionItem& source = store.Store().Add();
  TSkinCollectionItem& target = store.Store().Add();
  source.SetName("b5");
  source.Data().Write("whole data");
  source.Data().SetPosition(6);
  target.Data().Write("old bytes that are longer");
  target.Assign(&source);
  EXPECT_EQ("b5", target.Name());  // a duplicate now: Assign does not check
  EXPECT_EQ("whole data", target.Data().Bytes());
  EXPECT_EQ(6u, source.Data().Position());
  EXPECT_EQ(0u, target.Data().Position());

  class TOther : public TPersistent {
   public:
    std::string ClassName() const override { return "TOther"; }
  } other;
  ExpectError([&] { target.Assign(&other); }, "Invalid class typecast.");
  ExpectError([&] { target.Assign(nullptr); }, "Cannot assign a nil to a TSkinCollectionItem.");
  EXPECT_EQ("whole data", target.Data().Bytes());
}

TEST(SkinStore, SetStoreReplacesItemsAndIgnoresNothingAndItself) {
  TSkinStore from;
  from.Store().Add().SetName("x");
  from.Store().Items(0).Data().Write("xx");
  from.Store().Add().SetName("y");
  TSkinStore to;
  to.Store().Add().SetName("old");
  to.SetStore(&from.Store());
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), Names(to.Store()));
  EXPECT_EQ("xx", to.Store().Items(0).Data().Bytes());
  to.SetStore(nullptr);
  to.SetStore(&to.Store());
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), Names(to.Store()));
}

TEST(SkinStoreForm, RoundTripKeepsNamesOrderAndBytesIncludingEmptyData) {
  TSkinStore store;
  const std::pair<std::string, std::string> items[] = {
      {"b5", std::string("\xA4\xA4\x00\xFF", 4)}, {"empty", ""}, {"en", std::string(70000, 'e')}};
  for (const auto& [name, bytes] : items) {
    TSkinCollectionItem& item = store.Store().Add();
    item.SetName(name);
    item.Data().Write(bytes);
  }
  const std::string form = SaveStore(store);
  // The empty item still carries its byte count of 0 right behind its name.
  EXPECT_NE(std::string::npos, form.find(std::string("\x05\0\0\0empty\0\0\0\0", 13)));

  TSkinStore loaded;
  loaded.Store().Add().SetName("dropped on load");
  LoadStore(loaded, form);
  ASSERT_EQ(3, loaded.Store().Count());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(items[i].first, loaded.Store().Items(i).Name());
    EXPECT_EQ(items[i].second, loaded.Store().Items(i).Data().Bytes());
  }
  EXPECT_EQ(form, SaveStore(loaded));
}

TEST(SkinStoreForm, DuplicateNameFailsAtTheSecondItem) {
  TSkinStore store;
  store.Store().Add().SetName("cn");
  store.Store().Add().SetName("other");
  store.Store().Add();
  std::string form = SaveStore(store);
  // Make the second name equal to the first by editing the stored bytes.
  const auto at = form.find("other");
  form.replace(at - 4, 9, std::string("\x02\0\0\0cn", 6));
  TSkinStore loaded;
  ExpectError([&] { LoadStore(loaded, form); }, "The name cn is already used.");
  ASSERT_EQ(2, loaded.Store().Count());
  EXPECT_EQ("cn", loaded.Store().Items(0).Name());
}

TEST(SkinStoreForm, DamagedFormsAreRefused) {
  TSkinStore store;
  store.Store().Add().Data().Write("data");
  const std::string form = SaveStore(store);
  const std::string damaged[] = {
      "",
      "XXXX" + form.substr(4),                      // magic
      form.substr(0, 4) + "\x02" + form.substr(5),  // version
      form.substr(0, form.size() - 1),              // cut in the data
      form.substr(0, 9) + "\xFF\xFF\xFF\x7F",       // a name far longer than the bytes
      form + "x",                                   // bytes left over
  };
  for (const std::string& bytes : damaged) {
    TSkinStore loaded;
    EXPECT_THROW(LoadStore(loaded, bytes), TStoreError) << testing::PrintToString(bytes);
  }
}

TEST(SkinStoreForm, BuiltInStoreHoldsTheThreeLanguageFilesInOrder) {
  TSkinStore store;
  LoadStore(store, EmbeddedLanguageStore());
  EXPECT_EQ((std::vector<std::string>{"b5", "cn", "en"}), Names(store.Store()));
  for (int i = 0; i < store.Store().Count(); ++i) {
    const TSkinCollectionItem& item = store.Store().Items(i);
    EXPECT_EQ(
        test::ReadFile(std::string(CAMLIFT_SOURCE_DIR) + "/core/i18n/lang/" + item.Name() + ".lng"),
        item.Data().Bytes());
  }
}

}  // namespace
}  // namespace camlift
