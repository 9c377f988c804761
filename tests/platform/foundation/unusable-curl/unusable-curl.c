/* A library under libcurl's name that has none of its functions: the foundation's tests start
   a process that finds it before the system's libcurl, as a program would on a system whose
   libcurl is missing or too old to use. */
int glimdeck_unusable_curl = 0;
