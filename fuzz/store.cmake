# The catalogue's reader over arbitrary files.
quorvel_add_fuzzer(fuzz_catalogue fuzz_catalogue.cpp quorvel_store Qt6::Gui)
# The readers of libraryfolders.vdf and system.reg over arbitrary bytes.
quorvel_add_fuzzer(fuzz_registry_files fuzz_registry_files.cpp quorvel_game quorvel_platform Qt6::Core)
