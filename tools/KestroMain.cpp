// kestro: the command-line tool. See KestroApp.
#include "tools/KestroApp.h"

int main(int argc, char** argv)
{
    KestroApp app;
    return app.Run(argc, argv);
}
