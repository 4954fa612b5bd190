#pragma once

#include <QObject>
#include <QString>
#include <map>

class QSoundEffect;

namespace corvaline::app {

// Plays the program's sounds ("Message", "Broadcast", "Online", "File") from the resources,
// one QSoundEffect per name, made on first use and kept. A name without a sound, or a
// machine without an audio device, plays nothing and reports nothing. GUI thread.
class PlaySound : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    void Play(const QString& name);
    // How many names have an effect (for the tests).
    std::size_t cachedEffects() const { return effects_.size(); }

  private:
    std::map<QString, QSoundEffect*> effects_;
};

}  // namespace corvaline::app
