#include "bridge_tool.h"

#include <iostream>

// The routing helper the application runs for every browser request.
int main(int argc, char** argv)
{
    return corvane::BridgeTool::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
