#include "app/program_windows.h"
#include "ui/application.h"

int main(int argc, char** argv)
{
    kelvo::KelvoApplication app(argc, argv);
    const kelvo::ProgramWindows windows;
    kelvo::Form1->show();
    return app.exec();
}
