#include "db/Group.h"

Group::Group(int id)
    : id(id)
{ }
