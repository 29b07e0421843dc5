// The program: its one application object and the entry point that hands
// the framework the application's resources.
#include "app/probe_app.h"
#include "app/resources.h"

CProbeApp theApp;

int main(int argc, char* argv[])
{
    return AfxWinMain(argc, argv, &dravenlok::app::Resources());
}
