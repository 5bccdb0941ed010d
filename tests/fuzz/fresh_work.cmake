# Empties a fuzz target's work folder (WORK) before its run.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
