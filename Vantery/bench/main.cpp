// vantery-app-bench <name> [options]: one subcommand per measured view model.
#include <cstdio>
#include <cstring>
#include <string>

int provenanceBench(int argc, char** argv);

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "provenance") == 0) return provenanceBench(argc - 2, argv + 2);
    std::fprintf(stderr, "usage: vantery-app-bench provenance [--records N] [--days D]\n");
    return 2;
}
