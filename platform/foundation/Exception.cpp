#include "platform/foundation/Exception.h"

namespace plexora::platform {

Exception::Exception(std::string name, std::string reason, Value userInfo)
    : name_(std::move(name)), reason_(std::move(reason)), userInfo_(std::move(userInfo)) {}

}  // namespace plexora::platform
