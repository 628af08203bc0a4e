--Associate the certificate with the user do not use a network path
CREATE USER mirror_user FOR LOGIN mirror_login;
  go  
/* a; /* nested; */ still; */ SELECT 1;
	GO	
GO
SELECT 'x;y''z;' AS [a;]]b], "c;" FROM t; -- x;y
