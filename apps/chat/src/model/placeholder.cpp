namespace chat {}
