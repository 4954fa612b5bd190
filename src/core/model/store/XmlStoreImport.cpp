#include "core/model/store/XmlStoreImport.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <sstream>
#include <string>

#include "core/model/store/ObjectContext.h"
#include "core/model/store/Sqlite.h"
#include "platform/crypto/Base64.h"

namespace corvaline {

namespace {

// Seconds from 1970 to the reference date of the older store's dates, 2001-01-01 UTC.
constexpr double kReferenceDateOffset = 978307200.0;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <class Member>
const Member* findMember(const std::vector<Member>& members, std::string_view name) {
    for (const auto& member : members) {
        if (equalsIgnoringCase(member.name, name)) {
            return &member;
        }
    }
    return nullptr;
}

const EntityDescription* findEntity(const ManagedObjectModel& model, std::string_view type) {
    for (const auto* root : model.roots()) {
        for (const auto* entity : root->kinds()) {
            if (equalsIgnoringCase(entity->name(), type)) {
                return entity;
            }
        }
    }
    return nullptr;
}

template <class Number>
std::optional<Number> parseNumber(std::string_view text) {
    Number value{};
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// The element's value as the model's type; nothing when it does not read as one (the
// older store kept pictures and links as archived objects, which are not carried over).
std::optional<Value> readValue(const pugi::xml_node& element, AttributeType type) {
    const std::string_view stored = element.attribute("type").value();
    const bool archived = stored == "binary" || stored == "transformable";
    const std::string text = element.text().get();
    switch (type) {
        case AttributeType::Text:
            if (archived) {
                return std::nullopt;
            }
            return Value{text};
        case AttributeType::Boolean:
            if (text == "1" || equalsIgnoringCase(text, "yes") ||
                equalsIgnoringCase(text, "true")) {
                return Value{true};
            }
            if (text == "0" || equalsIgnoringCase(text, "no") ||
                equalsIgnoringCase(text, "false")) {
                return Value{false};
            }
            return std::nullopt;
        case AttributeType::Integer64:
            if (auto number = parseNumber<std::int64_t>(text)) {
                return Value{*number};
            }
            return std::nullopt;
        case AttributeType::Double:
            if (auto number = parseNumber<double>(text)) {
                return Value{*number};
            }
            return std::nullopt;
        case AttributeType::Date:
            if (auto seconds = parseNumber<double>(text)) {
                return Value{dateFromSecondsSince1970(*seconds + kReferenceDateOffset)};
            }
            return std::nullopt;
        case AttributeType::Data: {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
            if (auto data = base64DecodeSkippingJunk({bytes, text.size()})) {
                return Value{std::move(*data)};
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void removeStoreFiles(const std::filesystem::path& file) {
    std::error_code ignored;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file.string() + suffix, ignored);
    }
}

}  // namespace

void importXmlStore(const std::filesystem::path& xml, ObjectContext& context) {
    pugi::xml_document document;
    const auto parsed = document.load_file(xml.c_str());
    if (!parsed) {
        throw StoreError("The old store " + xml.string() +
                         " could not be read: " + parsed.description() + " at offset " +
                         std::to_string(parsed.offset) + ".");
    }
    const auto database = document.child("database");
    if (!database) {
        throw StoreError("The old store " + xml.string() + " is not a store.");
    }
    std::map<std::string, std::shared_ptr<ManagedObject>, std::less<>> byId;
    std::vector<std::pair<std::shared_ptr<ManagedObject>, pugi::xml_node>> imported;
    for (const auto& element : database.children("object")) {
        const EntityDescription* entity =
            findEntity(context.model(), element.attribute("type").value());
        if (!entity || entity->isAbstract()) {
            continue;  // an entity this program does not have
        }
        auto object = context.importObject(entity->name());
        for (const auto& attribute : element.children("attribute")) {
            const auto* description =
                findMember(entity->attributes(), attribute.attribute("name").value());
            if (!description) {
                continue;
            }
            if (auto value = readValue(attribute, description->type)) {
                object->setPrimitiveValue(description->name, std::move(*value));
            }
        }
        byId[element.attribute("id").value()] = object;
        imported.emplace_back(std::move(object), element);
    }
    // Both sides of a pair may be listed; adding through either side joins them once.
    for (auto& [object, element] : imported) {
        for (const auto& relationship : element.children("relationship")) {
            const auto* description = findMember(object->entity().relationships(),
                                                 relationship.attribute("name").value());
            if (!description) {
                continue;
            }
            std::istringstream references(relationship.attribute("idrefs").value());
            std::string reference;
            while (references >> reference) {
                auto target = byId.find(reference);
                if (target == byId.end() ||
                    !target->second->entity().isKindOf(*description->destination)) {
                    continue;
                }
                if (description->toMany) {
                    object->addToMany(description->name, target->second.get());
                } else {
                    object->setToOne(description->name, target->second.get());
                    break;
                }
            }
        }
    }
}

void migrateXmlStore(const std::filesystem::path& xml, const std::filesystem::path& target,
                     const ManagedObjectModel& model) {
    const std::filesystem::path partial = target.string() + ".migrating";
    removeStoreFiles(partial);
    try {
        {
            auto context = ObjectContext::open(partial, model);
            importXmlStore(xml, *context);
            context->save();
        }  // closing the last connection folds the write-ahead log into the file
        std::filesystem::rename(partial, target);
    } catch (...) {
        removeStoreFiles(partial);
        throw;
    }
}

}  // namespace corvaline
