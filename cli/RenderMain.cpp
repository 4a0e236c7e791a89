#include "app/Console.h"
#include "cli/CliOptions.h"
#include "cli/RenderCommand.h"

// hoopwatch-render FILE -o OUT.png [options]: what `hoopwatch-cli render` hands over to.
int main(int argc, char** argv)
{
    return runRender(ArgList(console::utf8Arguments(argc, argv)));
}
