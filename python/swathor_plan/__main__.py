import sys

from swathor_plan.cli import main

sys.exit(main())
