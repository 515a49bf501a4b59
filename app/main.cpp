#include "store/application.h"
#include "store/program_windows.h"

int main(int argc, char** argv)
{
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::ProgramWindows windows;
    kelvo::Form1->show();
    return app.exec();
}
