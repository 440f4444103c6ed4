// Visibility of the module's exported classes. The module is built with hidden
// visibility by default; only what the host links against is marked.
#ifndef SKW_EXPORT_H
#define SKW_EXPORT_H

#define SKW_EXPORT __attribute__((visibility("default")))

#endif
