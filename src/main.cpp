#include "CMorphApp.h"

int main(int argc, char** argv)
{
    CMorphApp app(argc, argv);
    return app.InitInstance() ? app.exec() : 0;
}
