// The module: one shared library holding every subsystem. Its content comes from
// the subsystem libraries linked in whole; loading it runs only their static
// initialisers.
