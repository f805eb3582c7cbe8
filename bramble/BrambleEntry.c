/* The library needs no work when it is loaded or unloaded: its tables start empty. */
typedef int bramble_entry_has_no_work;
