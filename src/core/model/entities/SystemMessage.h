#pragma once

#include <string>
#include <string_view>

#include "core/model/entities/LogEntry.h"

namespace corvaline {

// A line the program itself writes into a history. Main thread only.
class SystemMessage : public LogEntry {
  public:
    static constexpr std::string_view kEntityName = "SystemMessage";
    using LogEntry::LogEntry;

    std::string text() const { return LogEntry::text("text"); }
    void setText(std::string text) { setValue("text", std::move(text)); }
    bool error() const { return flag("error"); }
    void setError(bool error) { setValue("error", error); }
};

}  // namespace corvaline
