#include "driver/installc.hpp"

int main(int argc, char** argv) { return RunInstaller(argc, argv); }
