"""swathor-plan: plan a mowing site file from the command line."""
