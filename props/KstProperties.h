// The property family in one include: property objects, their owning containers and the
// property set.
#pragma once

#include "KstBinaryP.h"
#include "KstCollP.h"
#include "KstMapStringToObjectPPtr.h"
#include "KstObjectP.h"
#include "KstObjectPArrayPtr.h"
#include "KstObjectPListPtr.h"
#include "KstPropertySet.h"
#include "KstScalarP.h"
#include "KstStringArrayP.h"
#include "KstXMLSupport.h"
