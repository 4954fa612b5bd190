#include "core/model/services/CoreServices.h"

namespace corvaline {

CoreServices& CoreServices::shared() {
    static CoreServices services;
    return services;
}

Date CoreServices::now() const {
    return clock ? clock() : std::chrono::system_clock::now();
}

}  // namespace corvaline
