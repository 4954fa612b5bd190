#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class Hunspell;

namespace corvaline::ui {

// Checks words against the Hunspell dictionaries of the user's preferred languages that are
// installed (American English when none of them is); a word is right when any dictionary
// knows it. Without any dictionary every word is right. GUI thread.
class SpellChecker {
  public:
    // The one checker of the program, loaded on first use.
    static SpellChecker& shared();

    // Dictionaries named by language tags ("de-AT", "en"), looked for in `folders`.
    SpellChecker(const std::vector<std::string>& languages, const QStringList& folders);
    ~SpellChecker();
    SpellChecker(const SpellChecker&) = delete;
    SpellChecker& operator=(const SpellChecker&) = delete;

    bool hasDictionary() const { return !dictionaries_.empty(); }
    bool isCorrect(const QString& word) const;
    // Suggestions of the first dictionary that has any.
    QStringList suggestions(const QString& word) const;

  private:
    struct Dictionary;
    std::vector<std::unique_ptr<Dictionary>> dictionaries_;
};

}  // namespace corvaline::ui
