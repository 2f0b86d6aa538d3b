// SPDX-License-Identifier: Apache-2.0
// TSkinStore: a collection of named byte streams that is saved and restored as one stored form.
// The program carries its language files this way (see str_resource.h); the store itself knows
// nothing about languages.
//
// Stored form (all counts 32-bit little-endian):
//   magic "CLSK", format version (one byte, currently 1),
//   item count,
//   per item: Name   = byte count + bytes,
//             DataStream = byte count + bytes (written also when empty).
// DataSize and SkinData are never stored. Loading and saving walk the same code (DefineStore):
// each field is handed to a filer that either reads it or writes it, so the two cannot drift.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace camlift {

// Every refusal of the store: a duplicate name, a bad assignment, a damaged stored form.
class TStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Base of everything that can be assigned from another object; the default refuses.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual std::string ClassName() const = 0;
  // Copies source into this object. The default refuses: "Cannot assign a nil to a X." for
  // nothing, "Cannot assign a Y to a X." for any other object.
  virtual void Assign(const TPersistent* source);
};

// An in-memory byte stream with a position, as the items keep their data.
class TMemoryStream {
 public:
  const std::string& Bytes() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }
  void SetPosition(std::size_t position) { position_ = std::min(position, bytes_.size()); }
  void Clear() {
    bytes_.clear();
    position_ = 0;
  }
  // Writes at the position (growing the stream as needed) and moves the position behind them.
  void Write(std::string_view bytes);
  // Reads up to count bytes from the position and moves the position behind them.
  std::string Read(std::size_t count);

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

class TSkinCollection;

class TSkinCollectionItem : public TPersistent {
 public:
  // Only a collection makes items (it hands out the IDs).
  class Key {
    friend class TSkinCollection;
    Key() = default;
  };
  TSkinCollectionItem(Key, TSkinCollection* collection, int id);
  static constexpr std::string_view kSkinDataText = "Load Skin";

  std::string ClassName() const override { return "TSkinCollectionItem"; }

  int ID() const { return id_; }
  int Index() const;
  TSkinCollection* Collection() const { return collection_; }

  const std::string& Name() const { return name_; }
  // Refuses a name another item of the collection already has (compared exactly) with
  // "The name " + value + " is already used."; the current name is always accepted.
  void SetName(const std::string& value);
  std::string DisplayName() const { return name_; }

  // The designer's hook for loading a file into the item: always "Load Skin", never stored.
  std::string SkinData() const { return std::string(kSkinDataText); }
  void SetSkinData(const std::string&) {}
  std::int32_t DataSize() const { return static_cast<std::int32_t>(data_.Size()); }

  TMemoryStream& Data() { return data_; }
  const TMemoryStream& Data() const { return data_; }

  // From another item: its name (unchecked) and a full copy of its data; the source's position
  // is left where it was. Anything else is refused (TStoreError).
  void Assign(const TPersistent* source) override;

 private:
  TSkinCollection* collection_;
  int id_;
  std::string name_;
  TMemoryStream data_;
};

class TSkinCollection {
 public:
  TSkinCollection() = default;
  TSkinCollection(const TSkinCollection&) = delete;
  TSkinCollection& operator=(const TSkinCollection&) = delete;

  // A new item at the end, named "SkinItem" + its ID. IDs run from 0 and are never reused.
  TSkinCollectionItem& Add();
  void Delete(int index);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TSkinCollectionItem& Items(int index);
  const TSkinCollectionItem& Items(int index) const;
  int IndexOf(const TSkinCollectionItem* item) const;

 private:
  std::vector<std::unique_ptr<TSkinCollectionItem>> items_;
  int next_id_ = 0;
};

class TSkinStore {
 public:
  static constexpr std::uint8_t kFormatVersion = 1;

  TSkinStore() = default;
  TSkinCollection& Store() { return store_; }
  const TSkinCollection& Store() const { return store_; }
  // Empties the store, then adds one item per item of other, in order, each filled by Assign.
  // Nothing (nullptr) and the store's own collection are ignored.
  void SetStore(const TSkinCollection* other);

 private:
  TSkinCollection store_;
};

// One side of the stored form: reads fields from bytes or writes them to bytes.
class TStoreFiler {
 public:
  virtual ~TStoreFiler() = default;
  virtual bool IsLoading() const = 0;
  // Raw bytes of a fixed length (the header).
  virtual void Fixed(std::string& bytes, std::size_t length) = 0;
  virtual void UInt8(std::uint8_t& value) = 0;
  virtual void UInt32(std::uint32_t& value) = 0;
  // A 32-bit byte count, then the bytes.
  virtual void Counted(std::string& bytes) = 0;
};

// The single walk over a store that both loading and saving use. Loading empties the store
// first and gives each item its stored name through the checked setter, so a form with two
// items of the same name fails at the second one (the items before it stay).
void DefineStore(TSkinStore& store, TStoreFiler& filer);

// The stored form of a store, and a store from its stored form (TStoreError when the form is
// damaged: wrong magic or version, cut off, bytes left over, a duplicate name).
std::string SaveStore(const TSkinStore& store);
void LoadStore(TSkinStore& store, std::string_view stored_form);

}  // namespace camlift
