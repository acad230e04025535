# Read by cpack before it stages the tree (CPACK_PROJECT_CONFIG_FILE): the
# strip of each binary writes a PE time stamp, which is the time of the strip
# unless SOURCE_DATE_EPOCH says otherwise.
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_TAVISOR_SOURCE_DATE_EPOCH})
