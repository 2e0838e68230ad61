#include "consoleterminal.h"

#include <io.h>

bool marlune::isTerminal(FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}
