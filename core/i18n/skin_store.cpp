// SPDX-License-Identifier: Apache-2.0
#include "i18n/skin_store.h"

#include <limits>

namespace camlift {
namespace {

constexpr std::string_view kMagic = "CLSK";

class TStoreWriter final : public TStoreFiler {
 public:
  bool IsLoading() const override { return false; }
  void Fixed(std::string& bytes, std::size_t length) override { out_.append(bytes, 0, length); }
  void UInt8(std::uint8_t& value) override { out_ += static_cast<char>(value); }
  void UInt32(std::uint32_t& value) override {
    for (int shift = 0; shift < 32; shift += 8) out_ += static_cast<char>((value >> shift) & 0xFF);
  }
  void Counted(std::string& bytes) override {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
      throw TStoreError("A stream of " + std::to_string(bytes.size()) + " bytes is too large.");
    }
    auto count = static_cast<std::uint32_t>(bytes.size());
    UInt32(count);
    out_ += bytes;
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

class TStoreReader final : public TStoreFiler {
 public:
  explicit TStoreReader(std::string_view in) : in_(in) {}
  bool IsLoading() const override { return true; }
  void Fixed(std::string& bytes, std::size_t length) override { bytes = Take(length); }
  void UInt8(std::uint8_t& value) override { value = static_cast<std::uint8_t>(Take(1)[0]); }
  void UInt32(std::uint32_t& value) override {
    const std::string b = Take(4);
    value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(b[i]);
  }
  void Counted(std::string& bytes) override {
    std::uint32_t count = 0;
    UInt32(count);
    bytes = Take(count);
  }
  bool AtEnd() const { return in_.empty(); }

 private:
  std::string Take(std::size_t n) {
    if (n > in_.size()) throw TStoreError("The stored form of the store is cut off.");
    std::string bytes(in_.substr(0, n));
    in_.remove_prefix(n);
    return bytes;
  }
  std::string_view in_;
};

}  // namespace

void TPersistent::Assign(const TPersistent* source) {
  const std::string from = source == nullptr ? "nil" : source->ClassName();
  throw TStoreError("Cannot assign a " + from + " to a " + ClassName() + ".");
}

void TMemoryStream::Write(std::string_view bytes) {
  if (position_ + bytes.size() > bytes_.size()) bytes_.resize(position_ + bytes.size());
  bytes_.replace(position_, bytes.size(), bytes);
  position_ += bytes.size();
}

std::string TMemoryStream::Read(std::size_t count) {
  std::string out = bytes_.substr(position_, count);
  position_ += out.size();
  return out;
}

TSkinCollectionItem::TSkinCollectionItem(Key, TSkinCollection* collection, int id)
    : collection_(collection), id_(id), name_("SkinItem" + std::to_string(id)) {}

int TSkinCollectionItem::Index() const {
  return collection_ == nullptr ? -1 : collection_->IndexOf(this);
}

void TSkinCollectionItem::SetName(const std::string& value) {
  if (value == name_) return;
  if (collection_ != nullptr) {
    for (int i = 0; i < collection_->Count(); ++i) {
      const TSkinCollectionItem& other = collection_->Items(i);
      if (&other != this && other.name_ == value) {
        throw TStoreError("The name " + value + " is already used.");
      }
    }
  }
  name_ = value;
}

void TSkinCollectionItem::Assign(const TPersistent* source) {
  const auto* item = dynamic_cast<const TSkinCollectionItem*>(source);
  if (source != nullptr && item == nullptr) throw TStoreError("Invalid class typecast.");
  if (item == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (item == this) return;
  name_ = item->name_;
  // A copy of the whole stream, not only from the source's position; the source's position
  // stays where it was because its bytes are read directly.
  data_.Clear();
  data_.Write(item->data_.Bytes());
  data_.SetPosition(0);
}

TSkinCollectionItem& TSkinCollection::Add() {
  items_.push_back(
      std::make_unique<TSkinCollectionItem>(TSkinCollectionItem::Key(), this, next_id_));
  ++next_id_;
  return *items_.back();
}

void TSkinCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw TStoreError("List index out of bounds.");
  items_.erase(items_.begin() + index);
}

void TSkinCollection::Clear() { items_.clear(); }

TSkinCollectionItem& TSkinCollection::Items(int index) {
  if (index < 0 || index >= Count()) throw TStoreError("List index out of bounds.");
  return *items_[static_cast<std::size_t>(index)];
}

const TSkinCollectionItem& TSkinCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw TStoreError("List index out of bounds.");
  return *items_[static_cast<std::size_t>(index)];
}

int TSkinCollection::IndexOf(const TSkinCollectionItem* item) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == item) return static_cast<int>(i);
  }
  return -1;
}

void TSkinStore::SetStore(const TSkinCollection* other) {
  // Emptying our own collection first would leave nothing to copy from.
  if (other == nullptr || other == &store_) return;
  store_.Clear();
  for (int i = 0; i < other->Count(); ++i) store_.Add().Assign(&other->Items(i));
}

void DefineStore(TSkinStore& store, TStoreFiler& filer) {
  TSkinCollection& items = store.Store();
  std::string magic(kMagic);
  filer.Fixed(magic, kMagic.size());
  std::uint8_t version = TSkinStore::kFormatVersion;
  filer.UInt8(version);
  if (filer.IsLoading()) {
    if (magic != kMagic) throw TStoreError("The bytes are not a stored store.");
    if (version != TSkinStore::kFormatVersion) {
      throw TStoreError("Stored store format " + std::to_string(version) + " is not known.");
    }
    items.Clear();
  }
  auto count = static_cast<std::uint32_t>(items.Count());
  filer.UInt32(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (filer.IsLoading()) {
      TSkinCollectionItem& item = items.Add();
      std::string name;
      filer.Counted(name);
      item.SetName(name);
      std::string data;
      filer.Counted(data);
      item.Data().Clear();
      item.Data().Write(data);
      item.Data().SetPosition(0);
    } else {
      TSkinCollectionItem& item = items.Items(static_cast<int>(i));
      std::string name = item.Name();
      filer.Counted(name);
      // The whole stream, whatever its position, which stays as it was.
      std::string data = item.Data().Bytes();
      filer.Counted(data);
    }
  }
}

std::string SaveStore(const TSkinStore& store) {
  TStoreWriter writer;
  // Writing only reads the store.
  DefineStore(const_cast<TSkinStore&>(store), writer);
  return writer.Take();
}

void LoadStore(TSkinStore& store, std::string_view stored_form) {
  TStoreReader reader(stored_form);
  DefineStore(store, reader);
  if (!reader.AtEnd()) throw TStoreError("The stored form of the store has bytes left over.");
}

}  // namespace camlift
