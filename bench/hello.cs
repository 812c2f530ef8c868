Hello, <?cs var:name ?>.
