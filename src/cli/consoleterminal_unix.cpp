#include "consoleterminal.h"

#include <unistd.h>

bool marlune::isTerminal(FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

std::unique_ptr<QTextStream> marlune::openTextStream(FILE* stream)
{
    return std::make_unique<QTextStream>(stream);
}
