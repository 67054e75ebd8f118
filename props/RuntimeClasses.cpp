// The runtime classes of the property family, registered when the module loads in this
// order, from CObjectP to CPropertySet. Archives and XML recreate objects by these names.
#include "KstBinaryP.h"
#include "KstMapStringToObjectPPtr.h"
#include "KstObjectP.h"
#include "KstObjectPArrayPtr.h"
#include "KstObjectPListPtr.h"
#include "KstPropertySet.h"
#include "KstScalarP.h"
#include "KstStringArrayP.h"

IMPLEMENT_SERIAL(CObjectP, CObject, 1)
IMPLEMENT_SERIAL(CStringP, CObjectP, 1)
IMPLEMENT_SERIAL(CUIntP, CObjectP, 1)
IMPLEMENT_SERIAL(CTimeP, CObjectP, 1)
IMPLEMENT_SERIAL(CBoolP, CObjectP, 1)
IMPLEMENT_SERIAL(CInt64P, CObjectP, 1)
IMPLEMENT_SERIAL(CBinaryP, CObjectP, 1)
IMPLEMENT_SERIAL(CStringArrayP, CObjectP, 0)
IMPLEMENT_SERIAL(CObjectPListPtr, CObjectP, 1)
IMPLEMENT_SERIAL(CObjectPArrayPtr, CObjectP, 1)
IMPLEMENT_SERIAL(CMapStringToObjectPPtr, CObjectP, 1)
IMPLEMENT_SERIAL(CPropertySet, CMapStringToObjectPPtr, 1)
