import sys

from benchmarks.suite import main

sys.exit(main())
