#include "ui/conversation/SpellChecker.h"

#include <hunspell/hunspell.hxx>

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/locale/PreferredLanguages.h"

namespace corvaline::ui {

struct SpellChecker::Dictionary {
    Dictionary(const QString& aff, const QString& dic)
        : hunspell(QFile::encodeName(aff).constData(), QFile::encodeName(dic).constData()),
          encoder(hunspell.get_dict_encoding().c_str()),
          decoder(hunspell.get_dict_encoding().c_str()) {}

    // A word the dictionary's encoding cannot hold is passed as UTF-8 (and will be wrong).
    std::string encoded(const QString& word) {
        QByteArray bytes = encoder.isValid() ? QByteArray(encoder.encode(word)) : word.toUtf8();
        return bytes.toStdString();
    }
    QString decoded(const std::string& text) {
        const QByteArray bytes = QByteArray::fromStdString(text);
        return decoder.isValid() ? QString(decoder.decode(bytes)) : QString::fromUtf8(bytes);
    }

    Hunspell hunspell;
    QStringEncoder encoder;
    QStringDecoder decoder;
};

namespace {

// "de-AT" -> "de_AT" and then "de": the file names to try for one language.
QStringList dictionaryNames(const std::string& language) {
    QString name = QString::fromStdString(language).replace('-', '_');
    QStringList names{name};
    if (const auto cut = name.indexOf('_'); cut > 0) {
        names.append(name.left(cut));
    }
    return names;
}

}  // namespace

SpellChecker& SpellChecker::shared() {
    static SpellChecker checker = [] {
        auto languages = preferredLanguages();
        languages.push_back("en-US");
        return SpellChecker(languages, {QStringLiteral("/usr/share/hunspell"),
                                        QStringLiteral("/usr/share/myspell/dicts")});
    }();
    return checker;
}

SpellChecker::SpellChecker(const std::vector<std::string>& languages, const QStringList& folders) {
    QStringList loaded;
    for (const auto& language : languages) {
        for (const auto& name : dictionaryNames(language)) {
            if (loaded.contains(name)) {
                break;
            }
            for (const auto& folder : folders) {
                const QString base = folder + '/' + name;
                if (QFileInfo::exists(base + ".aff") && QFileInfo::exists(base + ".dic")) {
                    dictionaries_.push_back(
                        std::make_unique<Dictionary>(base + ".aff", base + ".dic"));
                    loaded.append(name);
                    break;
                }
            }
            if (loaded.contains(name)) {
                break;
            }
        }
    }
}

SpellChecker::~SpellChecker() = default;

bool SpellChecker::isCorrect(const QString& word) const {
    if (dictionaries_.empty()) {
        return true;
    }
    for (const auto& dictionary : dictionaries_) {
        if (dictionary->hunspell.spell(dictionary->encoded(word))) {
            return true;
        }
    }
    return false;
}

QStringList SpellChecker::suggestions(const QString& word) const {
    for (const auto& dictionary : dictionaries_) {
        QStringList found;
        for (const auto& suggestion : dictionary->hunspell.suggest(dictionary->encoded(word))) {
            found.append(dictionary->decoded(suggestion));
        }
        if (!found.isEmpty()) {
            return found;
        }
    }
    return {};
}

}  // namespace corvaline::ui
