#include "host/kit/plugin.h"

namespace hostkit {

Plugin::Plugin(const std::string& path) : library_(platform::loadLibrary(path.c_str())) {
    if (library_ == nullptr) {
        error_ = "cannot load " + path + ": " + platform::lastErrorText();
        return;
    }
    void* create = platform::findSymbol(library_, "createDev");
    void* destroy = platform::findSymbol(library_, "deleteDev");
    if (create == nullptr || destroy == nullptr) {
        error_ = path + " lacks " + (create == nullptr ? "createDev" : "deleteDev");
        return;
    }
    createDev_ = reinterpret_cast<CreateDev>(create);
    deleteDev_ = reinterpret_cast<DeleteDev>(destroy);
}

Plugin::~Plugin() {
    if (library_ != nullptr) {
        platform::freeLibrary(library_);
    }
}

CBase* Plugin::createDev(DeviceConfig* config, const CMessageH* logRecord) const {
    return createDev_ != nullptr ? createDev_(config, logRecord) : nullptr;
}

bool Plugin::deleteDev(CBase* device) const {
    return deleteDev_ != nullptr ? deleteDev_(device) : false;
}

}  // namespace hostkit
