"""The one toolkit of the Wine/X tests: PE and resource reading, prefixes, displays, windows.

Suites put the tests/ folder on sys.path and import `fenntest.<module>`.
"""
