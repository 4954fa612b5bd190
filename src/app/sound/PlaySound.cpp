#include "app/sound/PlaySound.h"

#include <QFile>
#include <QSoundEffect>
#include <QUrl>

namespace corvaline::app {

void PlaySound::Play(const QString& name) {
    auto found = effects_.find(name);
    if (found == effects_.end()) {
        const QString path = QStringLiteral(":/sounds/%1.wav").arg(name);
        if (!QFile::exists(path)) {
            return;
        }
        auto* effect = new QSoundEffect(this);
        effect->setSource(QUrl(QStringLiteral("qrc") + path));
        found = effects_.emplace(name, effect).first;
    }
    found->second->play();  // returns at once; without a device nothing is heard
}

}  // namespace corvaline::app
