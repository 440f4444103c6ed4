// The module: one shared library holding every subsystem. Its content comes from
// the subsystem archives, each linked in whole exactly once; loading it runs only
// their static initialisers.
