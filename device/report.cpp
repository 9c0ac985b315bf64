// The device report: what the device is, where it listens, and how it maps.
#include <iostream>

#include "config/CConCommonH.h"
#include "config/CTraCommonH.h"
#include "device/CPallador.h"

bool CPallador::printInfo() {
    if (controllerMapping == nullptr) {
        log->error("CPallador: Device has not been initialised.", true);
        return false;
    }
    log->info("DEVICE NAME           : ", false);
    std::cout << deviceName << std::endl;
    log->info("DEVICE TYPE           : Pallador(tm)", true);
    log->info("VERSION               : ", false);
    std::cout << "5.5" << std::endl;
    log->info("DATA TYPE             : Controller", true);
    log->info("SERIAL PORT           : ", false);
    std::cout << portName << std::endl;
    log->info("NUMBER OF DEVICES     : 1", true);
    log->info("NUMBER OF CONTROLLERS : ", false);
    std::cout << controllerMapping->numControllers << std::endl;
    log->info("BAUD RATE             : ", false);
    std::cout << baudRate << std::endl;
    controllerMapping->printMapping();
    if (trackerOptions != nullptr) {
        trackerOptions->printConfiguration(true);
    }
    log->info("-----------------------", true);
    std::cout.flush();
    return true;
}
