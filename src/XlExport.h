#ifndef SRC_XLEXPORT_H
#define SRC_XLEXPORT_H

// Marks a function Excel looks up in the add-in by its plain name. On Windows it is exported from
// the XLL (zep_add_xll links with --kill-at, so a 32-bit __stdcall name carries no "@bytes"); on
// other systems it is the one kind of symbol the module shows the stand-in Excel, as the framework
// and the add-in's own code are built with hidden visibility.
#ifdef _WIN32
#define ZEP_EXPORT __declspec(dllexport)
#else
#define ZEP_EXPORT __attribute__((visibility("default")))
#endif

#endif
