#include "consoleterminal.h"

#include <unistd.h>

bool marlune::isTerminal(FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}
