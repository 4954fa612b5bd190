#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/codec/Packet.h"
#include "core/model/entities/LogEntry.h"

namespace corvaline {

class ObjectContext;

// A text message of a history, and the receiving side of the six message packets.
// Main thread only.
class Message : public LogEntry {
  public:
    static constexpr std::string_view kEntityName = "Message";
    using LogEntry::LogEntry;

    // Records a received "TSM", "TMM", "TSOM", "TSOMM", "TSFM" or "TSFMM" from `ip` and
    // answers the receipt "TMR", which every message packet gets (duplicates and packets for
    // another user included), so that senders and relays stop resending. A new entry is saved
    // before the receipt (and a relayed one before its arrival is announced); when the store
    // cannot hold it there is no receipt, so the sender keeps it. The window and the sound
    // follow on a later turn.
    static std::optional<Packet> gotMessage(const Packet& packet, const std::string& ip);

    // Fronts the entry's conversation window and plays the incoming sound, as the settings say.
    void playSoundAndPopupWindow();

    // Wire times are local seconds since 1970: UTC seconds plus the system time zone's
    // offset, which follows clock and zone changes (recomputeLocalTimeOffset).
    static long localTimeOffset();
    static void recomputeLocalTimeOffset();
    static double wireTime(Date date);
    // None for a time no date can hold.
    static std::optional<Date> dateFromWireTime(std::int64_t localSeconds);

    std::string message() const { return text("message"); }
    void setMessage(std::string message) { setValue("message", std::move(message)); }
    std::int64_t messageId() const { return integer("messageId").value_or(0); }
    void setMessageId(std::int64_t messageId) { setValue("messageId", messageId); }
    bool mass() const { return flag("mass"); }
    void setMass(bool mass) { setValue("mass", mass); }
    bool offline() const { return flag("offline"); }
    void setOffline(bool offline) { setValue("offline", offline); }
};

// True when a message or a relay record with that id is in the store.
bool MessageIdAlreadyStored(ObjectContext& context, std::int64_t messageId);

}  // namespace corvaline
