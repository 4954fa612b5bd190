#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/model/store/ManagedObject.h"
#include "core/model/store/ManagedObjectModel.h"

namespace corvaline::testing {

// A small model shaped like the roster and its history: people (with a sub-entity) in teams,
// kept in memory; notes fetched on demand, each held by several people and at most one team.
// From version 2 on, the join rows carry the note's team. People are found by name.
inline std::unique_ptr<ManagedObjectModel> makeTestModel(int version = 2,
                                                         bool withNickname = false) {
    auto model = std::make_unique<ManagedObjectModel>(version);
    auto make = [](const EntityDescription& entity) {
        return std::make_shared<ManagedObject>(entity);
    };
    auto& person = model->addEntity("Person", nullptr, make);
    auto& chief = model->addEntity("Chief", &person, make);
    auto& team = model->addEntity("Team", nullptr, make);
    auto& note = model->addEntity("Note", nullptr, make);
    model->loadOnDemand(note);
    model->addAttribute(person, "name", AttributeType::Text);
    model->addAttribute(person, "age", AttributeType::Integer64);
    model->addAttribute(chief, "rank", AttributeType::Text);
    model->indexInMemory(person, "name");
    if (withNickname) {
        model->addAttribute(person, "nickname", AttributeType::Text);
    }
    model->addAttribute(team, "name", AttributeType::Text);
    model->addAttribute(note, "text", AttributeType::Text);
    model->addAttribute(note, "written", AttributeType::Date);
    model->addAttribute(note, "flagged", AttributeType::Boolean);
    model->addToOne(person, "team", team, "members");
    model->addToOne(note, "team", team, "notes");
    std::vector<std::string> copiedToOnes;
    if (version >= 2) {
        copiedToOnes.push_back("team");
    }
    model->addManyToMany(note, "people", person, "notes",
                         {"NotePerson", "note", "person", {"written"}, copiedToOnes});
    model->finish();
    return model;
}

}  // namespace corvaline::testing
