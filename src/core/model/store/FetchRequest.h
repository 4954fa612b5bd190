#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/model/store/Value.h"

namespace corvaline {

class ManagedObject;

// One condition of a fetch. `key` names an attribute, a to-one relationship or (Contains) a
// to-many relationship of the fetched entity. A plain value: main thread (it may point at
// objects).
struct FetchCondition {
    enum class Kind { Equals, IsNull, Contains };

    Kind kind = Kind::Equals;
    std::string key;
    Value value;                            // Equals on an attribute
    const ManagedObject* object = nullptr;  // Equals on a to-one, Contains

    static FetchCondition equals(std::string key, Value value) {
        return {Kind::Equals, std::move(key), std::move(value), nullptr};
    }
    // The to-one `key` is `object`.
    static FetchCondition relatedTo(std::string key, const ManagedObject& object) {
        return {Kind::Equals, std::move(key), {}, &object};
    }
    // The attribute has no value, or the to-one points at nothing.
    static FetchCondition isNull(std::string key) {
        return {Kind::IsNull, std::move(key), {}, nullptr};
    }
    // The to-many `key` holds `object` ("ANY key == object").
    static FetchCondition contains(std::string key, const ManagedObject& object) {
        return {Kind::Contains, std::move(key), {}, &object};
    }
};

// A query on a hierarchy that is fetched on demand. All conditions must hold; sub-entities
// of `entity` are included; results are sorted by `sortKey` (then by object id), at most
// `limit` of them (0: all), from the row after `after` on when that is set. A plain value: main
// thread.
struct FetchRequest {
    std::string entity;
    std::vector<FetchCondition> conditions;
    std::string sortKey;
    bool ascending = true;
    std::size_t limit = 0;
    // A place in the sort order: the sort value and the object id of a row. Pages of a long
    // result start after the last row of the page before, without counting the rows skipped.
    struct Position {
        Value sortValue;
        std::int64_t objectId = 0;
    };
    std::optional<Position> after = std::nullopt;
};

}  // namespace corvaline
