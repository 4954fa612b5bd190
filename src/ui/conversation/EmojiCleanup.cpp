#include "ui/conversation/EmojiCleanup.h"

#include <QTextCursor>
#include <QTextDocument>
#include <string_view>

namespace corvaline::ui {

namespace {

// The two-letter region codes whose flags are replaced, in table order.
constexpr std::string_view kRegions =
    "AF AX AL DZ AS AD AO AI AQ AG AR AM AW AU AT AZ BS BH BD BB BY BE BZ BJ BM BT BO BA BW BR "
    "IO VG BN BG BF BI KH CM CA IC CV BQ KY CF TD CL CN CX CC CO KM CG CD CK CR CI HR CU CW CY "
    "CZ DK DJ DM DO EC EG SV GQ ER EE ET EU FK FO FJ FI FR GF PF TF GA GM GE DE GH GI GR GL GD "
    "GP GU GT GG GN GW GY HT HN HK HU IS IN ID IR IQ IE IM IL IT JM JP JE JO KZ KE KI XK KW KG "
    "LA LV LB LS LR LY LI LT LU MO MK MG MW MY MV ML MT MH MQ MR MU YT MX FM MD MC MN ME MS MA "
    "MZ MM NA NR NP NL NC NZ NI NE NG NU NF KP MP NO OM PK PW PS PA PG PY PE PH PN PL PT PR QA "
    "RE RO RU RW WS SM SA SN RS SC SL SG SX SK SI GS SB SO ZA KR SS ES LK BL SH KN LC PM VC SD "
    "SR SZ SE CH SY TW TJ TZ TH TL TG TK TO TT TN TR TM TC TV VI UG UA AE GB US UY UZ VU VA VE "
    "VN WF EH YE ZM ZW";

QString fromCodePoints(std::initializer_list<char32_t> points) {
    QString text;
    for (char32_t point : points) {
        text += QString::fromUcs4(&point, 1);
    }
    return text;
}

QString regionFlag(char first, char second) {
    constexpr char32_t kIndicatorA = 0x1F1E6;
    return fromCodePoints({kIndicatorA + static_cast<char32_t>(first - 'A'),
                           kIndicatorA + static_cast<char32_t>(second - 'A')});
}

// Replaces every occurrence of `sequence`, searching on after each replacement.
bool replaceAll(QTextDocument& document, const QString& sequence, const QString& replacement) {
    bool changed = false;
    QTextCursor found = document.find(sequence, 0, QTextDocument::FindCaseSensitively);
    while (!found.isNull()) {
        found.insertText(replacement);
        changed = true;
        found = document.find(sequence, found.position(), QTextDocument::FindCaseSensitively);
    }
    return changed;
}

}  // namespace

const QStringList& EmojiCleanup::skinToneModifiers() {
    static const QStringList modifiers = [] {
        QStringList made;
        for (char32_t point = 0x1F3FB; point <= 0x1F3FF; ++point) {
            made.append(fromCodePoints({point}));
        }
        return made;
    }();
    return modifiers;
}

const QStringList& EmojiCleanup::flagSequences() {
    static const QStringList flags = [] {
        QStringList made{fromCodePoints({0x1F3F3, 0xFE0F, 0x200D, 0x1F308})};
        for (std::size_t at = 0; at + 1 < kRegions.size(); at += 3) {
            made.append(regionFlag(kRegions[at], kRegions[at + 1]));
        }
        return made;
    }();
    return flags;
}

QString EmojiCleanup::wavingBlackFlag() {
    return fromCodePoints({0x1F3F4});
}

bool EmojiCleanup::clean(QTextDocument& document) {
    // Every sequence of both tables starts with this high surrogate: most texts hold none.
    constexpr char16_t kLead = 0xD83C;
    if (!document.toPlainText().contains(QChar(kLead))) {
        return false;
    }
    bool changed = false;
    for (const auto& modifier : skinToneModifiers()) {
        changed = replaceAll(document, modifier, QString()) || changed;
    }
    const QString flag = wavingBlackFlag();
    for (const auto& sequence : flagSequences()) {
        changed = replaceAll(document, sequence, flag) || changed;
    }
    return changed;
}

}  // namespace corvaline::ui
