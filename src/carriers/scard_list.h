// The reader list the monitor keeps: one SCardItem per PC/SC reader, polled once a second.
// Not synchronised itself: every call is made under the owner's reader lock.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "carriers/identify.h"
#include "carriers/token_info.h"
#include "platform/pcsc_api.h"

namespace orvane::carriers {

// What one poll reports.
struct SCardChange {
  std::optional<std::u16string> reader;  // the reader whose carrier should be selected, if any
  bool changed = true;
  // Carrier types whose driver download should be offered (cards that could not be read),
  // to be offered on the UI thread after the change has been taken over.
  std::vector<std::int32_t> driverOffers;
};

class SCardList {
 public:
  // `services.pcsc` is required; `services.driverOffers` is managed by the list itself.
  explicit SCardList(CarrierServices services);
  SCardList(const SCardList&) = delete;
  SCardList& operator=(const SCardList&) = delete;

  // Rebuilds the items from the reader list with an established context (0: none).
  void Rebuild(platform::PcscContextHandle context);

  // One monitoring cycle with a context of its own; a change or none.
  std::optional<SCardChange> Poll();

  // The item of a reader (exact comparison), or null.
  std::shared_ptr<SCardItem> Find(const std::u16string* reader) const;
  std::shared_ptr<SCardItem> Find(const std::u16string& reader) const { return Find(&reader); }

  // Re-reads one reader's state and identifies its carrier again.
  void RefreshReader(const std::u16string& reader);

  // Absent until the first rebuild that got a reader list.
  const std::optional<std::vector<std::shared_ptr<SCardItem>>>& items() const { return items_; }
  std::uint32_t count() const { return count_; }

  // The driver offers gathered by Rebuild and RefreshReader since the last call.
  std::vector<std::int32_t> TakeDriverOffers();

 private:
  struct ReaderReading {
    bool present = false;
    std::vector<std::uint8_t> atr;
    std::uint32_t events = 0;  // the card-event counter (upper 16 bits of the event state)
  };
  // One reader-state query; none when nothing is known about the reader.
  std::optional<ReaderReading> QueryReader(platform::PcscContextHandle context, const std::u16string& reader) const;
  static void StoreState(SCardItem& item, const ReaderReading& reading);
  // The item still describes what is in the reader: the same presence and, for a card, the
  // same ATR and no card event since (a card swapped between two polls, or one whose ATR was
  // not yet read when it was first seen, is a change).
  static bool Unchanged(const SCardItem& item, const ReaderReading& reading);
  std::optional<tokenInfo> Identify(const SCardItem& item);

  CarrierServices services_;
  std::vector<std::int32_t> offers_;
  std::optional<std::vector<std::shared_ptr<SCardItem>>> items_;
  std::uint32_t count_ = 0;
};

}  // namespace orvane::carriers
