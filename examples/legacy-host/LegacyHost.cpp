// LegacyHost.cpp : a console program of the framework: stores a document, reads it back, and
// reports a failed open as such programs do. Prints "legacy host: ok" when all went right.
#include "StdAfx.h"
#include "Inventory.h"

#ifdef _DEBUG
#define new DEBUG_NEW
#undef THIS_FILE
static char THIS_FILE[] = __FILE__;
#endif

CWinApp theApp;

static int Fail(LPCTSTR what) {
    _tprintf(_T("legacy host: %s\n"), what);
    return 1;
}

int _tmain(int argc, TCHAR* argv[], TCHAR* envp[]) {
    if (!AfxWinInit(::GetModuleHandle(NULL), NULL, ::GetCommandLine(), 0))
        return Fail(_T("MFC initialization failed"));
    TRACE(_T("%s started with %d arguments\n"), AfxGetApp()->m_pszExeName, argc);

    TCHAR folder[MAX_PATH];
    if (argc > 1)
        lstrcpyn(folder, argv[1], MAX_PATH);
    else
        GetTempPath(MAX_PATH, folder);
    CString path = folder;
    if (path.Right(1) != _T("/") && path.Right(1) != _T("\\")) path += _T("/");
    path += _T("inventory.dat");

    CInventory doc;
    doc.m_strTitle = _T("Store room");
    doc.m_settings.SetAt(_T("Owner"), CString(_T("Ivanov")));
    doc.m_items.Add(new CItem(_T("Bolts"), 500));
    doc.m_items.Add(new CItem(_T("Nuts"), 480));

    TRY {
        CFile file(path, CFile::modeCreate | CFile::modeWrite);
        CArchive ar(&file, CArchive::store);
        doc.Serialize(ar);
    }
    CATCH(CFileException, e) {
        e->ReportError();
        return Fail(_T("could not store the document"));
    }
    END_CATCH

    CInventory copy;
    TRY {
        CFile file(path, CFile::modeRead);
        CArchive ar(&file, CArchive::load);
        copy.Serialize(ar);
    }
    CATCH_ALL(e) {
        return Fail(_T("could not load the document"));
    }
    END_CATCH_ALL
    ::DeleteFile(path);

    CStringP* owner = NULL;
    copy.m_settings.Lookup(_T("Owner"), owner);
    if (copy.m_strTitle != doc.m_strTitle || !owner ||
        *static_cast<CString*>(owner) != _T("Ivanov") || copy.m_items.GetSize() != 2 ||
        copy.m_items[1]->m_nCount != 480)
        return Fail(_T("the document came back different"));

    // A failed open, reported the way such programs report it.
    CFileException error;
    CFile missing;
    if (missing.Open(path + _T(".missing"), CFile::modeRead, &error))
        return Fail(_T("a missing file opened"));
    TCHAR text[256];
    error.GetErrorMessage(text, 256);
    _tprintf(_T("expected failure: %s\n"), text);

    _tprintf(_T("legacy host: ok\n"));
    return 0;
}
