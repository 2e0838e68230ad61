#include "mlpworkerrequesti.h"

MLPWorkerRequestI::MLPWorkerRequestI(QObject* parent) : QObject(parent) {}

MLPWorkerRequestI::~MLPWorkerRequestI() = default;
