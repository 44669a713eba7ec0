#include "db/Threshold.h"

Threshold::Threshold(int id)
    : id(id)
{ }
