# The desktop program and its tests are declared here.
