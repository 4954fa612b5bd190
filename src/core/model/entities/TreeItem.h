#pragma once

#include <string>
#include <string_view>

#include "core/model/store/ManagedObject.h"

namespace corvaline {

// What the main list shows: a group or a user. Main thread only.
class TreeItem : public ManagedObject {
  public:
    static constexpr std::string_view kEntityName = "TreeItem";
    using ManagedObject::ManagedObject;

    bool isUser() const { return flag("isUser"); }
    std::string name() const { return text("name"); }
    // The name of the status picture; the windows draw it.
    std::string icon() const { return text("icon"); }
    void setIcon(std::string icon) { setValue("icon", std::move(icon)); }
};

}  // namespace corvaline
