#include "mlu2readerlistener.h"

MLU2ReaderListener::~MLU2ReaderListener() = default;
