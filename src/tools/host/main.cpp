#include "host_tool.h"

#include <iostream>

// The native-messaging host of Corvane's browser extension.
int main(int argc, char** argv)
{
    return corvane::ExtensionHost::run(std::vector<std::string>(argv + 1, argv + argc), std::cerr);
}
