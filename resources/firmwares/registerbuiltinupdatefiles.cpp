#include "registerbuiltinupdatefiles.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the bundle's initialiser where it is used, so it must be used
// in the global namespace, where rcc defined it.
void registerBuiltInUpdateFiles()
{
    Q_INIT_RESOURCE(firmwares);
}
