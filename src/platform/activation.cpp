#include "activation.h"

#include <QtGlobal>

namespace corvane {

Activation Activation::takeFromEnvironment()
{
    Activation activation{qEnvironmentVariable("DESKTOP_STARTUP_ID"),
                          qEnvironmentVariable("XDG_ACTIVATION_TOKEN")};
    qunsetenv("DESKTOP_STARTUP_ID");
    qunsetenv("XDG_ACTIVATION_TOKEN");
    return activation;
}

} // namespace corvane
